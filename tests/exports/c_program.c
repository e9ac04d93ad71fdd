/* A C99 program on the public header and the shared library: the simulated board set up,
   its FPGA cleared, the device given back. Exit status 0 when every answer is the named one. */
#include <stdio.h>
#include <string.h>

#include "omrix/omrix_dll.h"

static char transcript[1 << 16];
static size_t used;

static void Collect(const char* text) {
  const size_t length = strlen(text);
  if (used + length >= sizeof transcript) return;
  memcpy(transcript + used, text, length + 1);
  used += length;
}

static int Expect(const char* what, int32_t got, int32_t wanted) {
  if (got == wanted) return 0;
  fprintf(stderr, "%s: %ld, expected %ld\n", what, (long)got, (long)wanted);
  return 1;
}

int main(void) {
  int failures = 0;
  failures += Expect("HwaccInit_EnableDllMessages", HwaccInit_EnableDllMessages(Collect), 1);
  failures += Expect("InterpreteOmrixDat", InterpreteOmrixDat(), OMRIX_START_NO_DEVICE);
  failures += Expect("SetupOmrix", SetupOmrix(0x378), OMRIX_SETUP_DONE);
  failures += Expect("IsDeviceInitialized", IsDeviceInitialized(), 1);
  failures += Expect("FpgaConfig", FpgaConfig("CLEAR", 0, 1), OMRIX_FPGA_CLEARED);
  failures += Expect("DeInitOmrix", DeInitOmrix(OMRIX_DEINIT_EXIT), 0);
  failures += Expect("HwaccDeInit", HwaccDeInit(), 1);
  if (strstr(transcript, "-> ready\n") == NULL) {
    fprintf(stderr, "no '-> ready' in:\n%s", transcript);
    ++failures;
  }
  return failures == 0 ? 0 : 1;
}
