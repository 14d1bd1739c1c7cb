#ifndef FX_RESOURCES_RESOURCE_H
#define FX_RESOURCES_RESOURCE_H

// Numbers of the executable's resources, shared by the resource script and the host. Plain
// defines: the resource compiler reads this file too.

#define FX_IDS_DESCRIPTION 1  // the name the platform lists the screen saver by
#define FX_IDI_WINDOW 100     // the show window's class icon
#define FX_IDI_GROUP 101      // the program's icon: 16, 32 and 48 pixels, 32-bit colour
#define FX_DLG_CONFIGURE 2003 // the settings dialog template, which the program does not carry

#endif
