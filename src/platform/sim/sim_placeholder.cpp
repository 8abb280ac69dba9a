#include "platform/sim/sim_machine.h"
