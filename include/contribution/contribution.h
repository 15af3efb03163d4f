#pragma once
// contribution_solver as a library: everything a program needs.
#include "contribution/errors.h"
#include "contribution/conductivity.h"
#include "contribution/solve.h"
