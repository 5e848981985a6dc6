#pragma once

// Instrument power and camera-make probe. The USB lister beside the program
// ("USBDeview.exe") writes the connected USB devices to
// c:\ProgramData\Tessaly\Quillon\power_on_test.txt, whose device descriptions
// are then searched:
//   mode 1: the instrument's SuperSpeed hub is present (power is on);
//   mode 2: a camera of a supported make is present.
// With runLister false the file of the previous run is searched.
//
// Fails open where the probe itself cannot work (folders, starting the
// lister) and closed where the report is missing.
bool DetectInstrumentUsbDevices(int mode, bool runLister);
