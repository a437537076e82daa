#include "OSAA.h"

#include <algorithm>
#include <iterator>

void OSAA::reset() { std::fill(std::begin(mLine), std::end(mLine), 0.0); }
