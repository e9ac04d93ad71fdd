// The libieee1284 calls the ppdev backend makes, as a table: filled from the library when it
// is loaded at run time, or by a test that plays the port.
#pragma once

#include <ieee1284.h>
#include <sys/types.h>

#include <string>

namespace omrix::platform {

struct Ieee1284Ops {
  int (*find_ports)(struct parport_list* list, int flags);
  void (*free_ports)(struct parport_list* list);
  int (*open)(struct parport* port, int flags, int* capabilities);
  int (*close)(struct parport* port);
  int (*claim)(struct parport* port);
  void (*release)(struct parport* port);
  int (*read_data)(struct parport* port);
  void (*write_data)(struct parport* port, unsigned char value);
  int (*data_dir)(struct parport* port, int reverse);
  int (*read_status)(struct parport* port);
  int (*read_control)(struct parport* port);
  void (*write_control)(struct parport* port, unsigned char value);
  ssize_t (*compat_write)(struct parport* port, int flags, const char* buffer, size_t length);
  ssize_t (*epp_read_data)(struct parport* port, int flags, char* buffer, size_t length);
  ssize_t (*epp_write_data)(struct parport* port, int flags, const char* buffer, size_t length);
  ssize_t (*epp_read_addr)(struct parport* port, int flags, char* buffer, size_t length);
  ssize_t (*epp_write_addr)(struct parport* port, int flags, const char* buffer, size_t length);
};

// libieee1284 loaded at run time, so the library itself needs it only when ppdev is chosen.
// False, with the reason, when it cannot be loaded.
bool loadIeee1284(Ieee1284Ops& ops, std::string& problem);

}  // namespace omrix::platform
