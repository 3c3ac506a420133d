// Fine: the script layer may use the scene.
#pragma once

#include "scene/planted.h"
