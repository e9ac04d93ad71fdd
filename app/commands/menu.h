// The menu bar as data: every item with its text, mnemonic and command id, and the rule that
// enables it. The program builds its menus from this table; omrixctl names the same ids.
#pragma once

#include <vector>

namespace omrix::commands {

enum CommandId : int {
  ID_SEPARATOR = 0,
  ID_SETUP_AUTO = 32787,
  ID_SETUP_3BC = 32781,
  ID_SETUP_378 = 32784,
  ID_SETUP_278 = 32785,
  ID_SETUP_AUX = 32837,
  ID_PROGRAM_FPGA0 = 32790,
  ID_PROGRAM_FPGA1 = 32791,
  ID_PROGRAM_CPU0 = 32792,
  ID_PROGRAM_CPU1 = 32793,
  ID_PROGRAM_CPU2 = 32806,
  ID_PROGRAM_CPU3 = 32807,
  ID_PROGRAM_ALL = 32804,
  ID_SAVE_FLASH = 32803,
  ID_ERASE_FPGA0 = 32812,
  ID_ERASE_FPGA1 = 32813,
  ID_ERASE_CPU0 = 32814,
  ID_ERASE_CPU1 = 32815,
  ID_ERASE_CPU2 = 32816,
  ID_ERASE_CPU3 = 32817,
  ID_ERASE_ALL = 32818,
  ID_APP_EXIT = 57665,
  ID_FPGA_CONFIG_PC = 32794,
  ID_FPGA_CONFIG_FLASH = 32795,
  ID_FPGA_CLEAR = 32796,
  ID_CPU_RUN0 = 32808,
  ID_CPU_RUN1 = 32801,
  ID_CPU_RUN2 = 32809,
  ID_CPU_RUN3 = 32810,
  ID_CPU_DISABLE = 32799,
  ID_EMULATE_AT89 = 32843,
  ID_EMULATE_AVR = 32841,
  ID_EMULATE_DLC5 = 32826,
  ID_SAVE_BASIC_RAM = 32825,
  ID_TEST_FPGA_IO = 32824,
  ID_TEST_PRAXNODE_IO = 32842,
  ID_CHECK_TRANSFER_RATE = 32827,
  ID_COMMANDLINE = 32782,
  ID_UPDATE_CPU = 32838,
  ID_UPDATE_FPGA = 32840,
  ID_APP_ABOUT = 57664,
  // Posted by the program to itself.
  ID_STARTUP_RECONFIG = 32823,
  ID_STARTUP_IDCODES = 32834,
  ID_STARTUP_JTAG = 32833,
  ID_SHUTDOWN = 32836,
};

struct MenuEntry {
  const char* menu;     // top-level menu text
  const char* submenu;  // nullptr: the item stands in the menu itself
  const char* text;     // nullptr for a separator
  CommandId id;
};

// In the order of the menu bar; a top-level item has the same text as menu and item.
const std::vector<MenuEntry>& MenuBar();

// Setup, Exit and About are always enabled; every other item only while a device is current.
bool AlwaysEnabled(CommandId id);

}  // namespace omrix::commands
