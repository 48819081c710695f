#ifndef MV_DIFFER_H
#define MV_DIFFER_H

#include "mvexport.h"

#endif
