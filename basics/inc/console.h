#ifndef MV_CONSOLE_H
#define MV_CONSOLE_H

#include "mvexport.h"

#endif
