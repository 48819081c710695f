#ifndef MV_DATABLOCKS_H
#define MV_DATABLOCKS_H

#include "mvexport.h"

#endif
