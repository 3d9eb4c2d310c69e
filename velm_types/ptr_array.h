// TPtrArray: the resizable storage of untyped pointers behind TVList; new
// elements are nil.
#pragma once

#include <vector>

using TPtrArray = std::vector<void*>;
