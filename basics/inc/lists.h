#ifndef MV_LISTS_H
#define MV_LISTS_H

#include "mvexport.h"

#endif
