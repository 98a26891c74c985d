#pragma once
// The runtime layer's generic containers: lists, stack, queue and thread list
// (rtl/generics_lists.h) and the insertion-ordered dictionaries (rtl/generics_dictionary.h).

#include "rtl/generics_dictionary.h"
#include "rtl/generics_lists.h"
