#!/usr/bin/env bash
# Fails when the committed API reference differs from what the engine's
# class tables say now.   api_reference_test.sh KAVO REFERENCE.md
set -euo pipefail
kavo="$1"
reference="$2"
if ! diff -u "$reference" <("$kavo" --api-reference) > /dev/null; then
  diff -u "$reference" <("$kavo" --api-reference) | head -40 || true
  echo "$reference is stale: run \`kavo --api-reference > docs/api.md\` and commit it"
  exit 1
fi
echo "$reference is current"
