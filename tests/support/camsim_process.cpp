#include "camsim_process.h"
