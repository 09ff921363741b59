#pragma once
#include "link/usbtransfer.h"
namespace kv {
class HidTransfer; // implemented with the USB link
}
