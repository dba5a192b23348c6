#pragma once
// Moved to tests/support so that every test folder can use it.
#include "support/library_fixture.h"
