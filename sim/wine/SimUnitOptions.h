#pragma once
// Reading a simulated unit's configuration from "key=value" words, as the controller's command
// line gives them. Portable, so that it is tested natively too.
#include "sim/SimulatedUnit.h"

#include <string>
#include <string_view>

// Applies one "key=value" word to config. Returns an empty string on success, else a message
// that names the word and what is wrong with it. Numbers are decimal or 0x-hexadecimal.
//   vid pid in out boot state detail unitfw unitinfo ctype cboot cfw flashedfw delay unplugat
//   bootbyte1 boothalf bootword1 bootword2 bootbyte2 bootmemory
//   fault=<command>:<kind>[:<code>[:<occurrence>]]   kind: none writefails readfails error
//                                                    wrongecho noanswer
std::string ApplyUnitOption(SimUnitConfig& config, std::string_view word);

// The name of the device node a configuration is plugged as: "VID_21B8&PID_0001".
std::string UnitNodeName(const SimUnitConfig& config);
