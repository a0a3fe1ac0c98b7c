#pragma once

#include <cstdint>
#include <string>

namespace vehisect {

/// The number of this process, as the system gives it.
unsigned long ThisProcess();

/// This computer's name as the network knows it; "" when the system does not say.
std::string HostName();

/// What tells this computer from others of the same name: Linux's machine id, Windows'
/// MachineGuid; "" when the system does not say.
std::string MachineId();

/// What tells this start of the computer from its others: Linux's boot id; "" on Windows,
/// where a process's start time is a time of day and tells boots apart itself.
std::string BootId();

/// When the process `process` of this computer started, in the system's own units; 0 when no
/// such process runs.
std::uint64_t ProcessStart(unsigned long process);

}  // namespace vehisect
