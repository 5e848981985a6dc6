#pragma once

// Finding the instrument's serial devices again after a failed transaction.
// (The discovery itself is CVelloraApp::ReInitializeSerialPortDevices.)

// Handler of the posted serial-recovery command (1364): waits a moment, runs
// the discovery up to ten times until it succeeds, then installs the one-shot
// failure hook again. Runs on the user-interface thread. True when the
// devices were found.
bool RecoverSerialPortDevices();
