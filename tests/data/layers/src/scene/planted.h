// A scene header reaching up into the shell: the layer check must refuse it.
#pragma once

#include "core/errors.h"
#include "shell/kavoform.h"
