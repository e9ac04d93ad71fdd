#include "library.h"

namespace omrix::commands {

Library LinkedLibrary() {
  Library library;
  library.HwaccInit_EnableDllMessages = &::HwaccInit_EnableDllMessages;
  library.HwaccDeInit = &::HwaccDeInit;
  library.InterpreteOmrixDat = &::InterpreteOmrixDat;
  library.SetupOmrix = &::SetupOmrix;
  library.DeInitOmrix = &::DeInitOmrix;
  library.IsDeviceInitialized = &::IsDeviceInitialized;
  library.outbyte = &::outbyte;
  library.inbyte = &::inbyte;
  library.PPinitSet = &::PPinitSet;
  library.PPackGet = &::PPackGet;
  library.GetTransferRate = &::GetTransferRate;
  library.FpgaConfig = &::FpgaConfig;
  library.FpgaCfgForSetup = &::FpgaCfgForSetup;
  library.CpuReset = &::CpuReset;
  library.CpuRunFile = &::CpuRunFile;
  library.FlashSectorErase = &::FlashSectorErase;
  library.FlashProgram = &::FlashProgram;
  library.FlashVerify = &::FlashVerify;
  library.FlashRead2File = &::FlashRead2File;
  library.Basic2File = &::Basic2File;
  library.BasicFlash = &::BasicFlash;
  return library;
}

}  // namespace omrix::commands
