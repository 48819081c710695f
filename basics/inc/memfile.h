#ifndef MV_MEMFILE_H
#define MV_MEMFILE_H

#include "mvexport.h"

#endif
