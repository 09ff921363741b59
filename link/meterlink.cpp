#include "link/meterlink.h"
