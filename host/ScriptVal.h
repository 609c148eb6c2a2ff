#pragma once

#include "host/Api.h"

// A value handed between the host's script layer and objects it creates. Tools only pass it on.
class HOST_API ScriptVal {};
