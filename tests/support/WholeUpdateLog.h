#pragma once

#include <QStringList>

// The log of a whole update of the shipped product against unit-sim, line by
// line, as the window shows it and the command line prints it.
inline const QStringList WholeUpdateLog = {
    "Initialising Upgrade.....Done (1)",
    "Enabling BootLoader.....Done",
    "Retrieving Bootloader Info......RM9001 v1.03",
    "Retrieving Model Number......OK",
    "Erasing Program Memory......100%",
    "Sending New Program Data......100%",
    "Disabling Boot Mode......Done",
    "Restarting Unit......Done",
    "Finalising Upgrade.....Done",
};
