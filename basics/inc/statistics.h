#ifndef MV_STATISTICS_H
#define MV_STATISTICS_H

#include "mvexport.h"

#endif
