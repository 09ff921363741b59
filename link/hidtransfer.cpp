#include "link/hidtransfer.h"
