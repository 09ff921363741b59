#include "live/poll.h"
