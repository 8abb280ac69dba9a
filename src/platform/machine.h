#pragma once
// The platform services of one machine, made once by the entry point (win32) or by a test (sim) and handed
// down. Lower operations take only the services they use.
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/spooler.h"
#include "platform/system.h"

namespace spoolsweep {

struct Machine {
    Spooler& spooler;
    Registry& registry;
    Services& services;
    Processes& processes;
    Files& files;
    System& system;
};

}  // namespace spoolsweep
