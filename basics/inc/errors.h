#ifndef MV_ERRORS_H
#define MV_ERRORS_H

#include "mvexport.h"

#endif
