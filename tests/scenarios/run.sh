#!/usr/bin/env bash
echo "no scenarios yet"
