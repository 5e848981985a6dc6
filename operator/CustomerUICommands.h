#pragma once

// The script commands of the customer run screen ("CustomerUI_..."): the
// screens that wait for the operator, the texts, images, inputs, colours,
// arrows, timer and flow split a customer script sets, and the read-backs.
//
// They run in interpreter instance 1 only (a few workflow helpers in either
// instance) and act on g_CustomerUI. Arguments are read in the check pass;
// ranges are checked and the screen changed when the line runs. A command
// that hands a problem back to the script writes it into a variable and
// succeeds; one that fails ends the run with its message.
//
// The script library knows these commands only by their table rows; the
// operator layer puts its handlers there at start-up.

// Installs the handlers into the script's command table; call once at
// start-up, before the first script runs (idempotent).
void InstallCustomerUICommands();

// The experiment and analysis commands among them (CustomerUIExperimentCommands.cpp);
// InstallCustomerUICommands installs them too.
void InstallCustomerUIExperimentCommands();
