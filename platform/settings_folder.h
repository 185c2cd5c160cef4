#pragma once

#include <string>

// Where the programs' outside settings live on Linux. $VELMORA_CONFIG_DIR, when
// set and not empty, holds both (tests and the demo use it). Otherwise the
// registry stand-in is per machine and Ordwin.ini is per user.
std::string MachineSettingsFolder();   // $VELMORA_CONFIG_DIR or /etc/velmora
std::string UserSettingsFolder();      // $VELMORA_CONFIG_DIR or $XDG_CONFIG_HOME/velmora or ~/.config/velmora

std::string RegistryStandInPath();     // MachineSettingsFolder() + "/registry.ini"
std::string OrdwinProfilePath();       // UserSettingsFolder() + "/Ordwin.ini"
