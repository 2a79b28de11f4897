// The record database engine: data files of fixed-length records shared by
// several stations, their locks and header markers, the fatal-error log, and
// index files (B-trees whose pages are the records of a data file). Programs
// include this header; each part below holds one concern.
#pragma once
#include "db/datafile.h"
#include "db/engine.h"
#include "db/errors.h"
#include "db/host.h"
#include "db/index.h"
#include "db/locking.h"
#include "db/rebuild.h"
#include "db/sort.h"
#include "db/table_change.h"
