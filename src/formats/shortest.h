// Numbers as every table and message of the general engine prints them.
#pragma once

#include <string>

// v in the shortest form that reads back to the same double.
std::string shortest(double v);
