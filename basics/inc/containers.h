#ifndef MV_CONTAINERS_H
#define MV_CONTAINERS_H

#include "mvexport.h"

#endif
