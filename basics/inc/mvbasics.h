// Merivane Basics: one include for every public name of the library.
#ifndef MV_MVBASICS_H
#define MV_MVBASICS_H

#include "mvexport.h"
#include "results.h"     // every result code the library returns
#include "frame.h"       // allocation, node pool, module identity, hooks, assertion
#include "systemlog.h"   // system log and message boxes
#include "arrays.h"      // array interface, contiguous array, pointer array, sorted list
#include "memfile.h"     // memory file
#include "datablocks.h"  // record queue, raw buffer, CRC-32, byte-run compression
#include "scalar.h"      // scalar store and load
#include "containers.h"  // container framework, red-black trees, entry caches, bit stack
#include "differ.h"      // container differ and memory-file container
#include "lists.h"       // linked lists and bit string
#include "errors.h"      // error catalogue
#include "console.h"     // server console and output streams
#include "timeutil.h"    // date, time and timers
#include "registry.h"    // registry configuration
#include "loader.h"      // dynamic module loader
#include "prfdata.h"     // performance data block
#include "statistics.h"  // statistics counters, counter registration, collector entry points

#endif
