// The ids of the program's resources, shared by tarvelin.rc and the code.
#pragma once

// The program's icon.
#define TARVELIN_ICON 1
// The console tool of the same build, a resource of type "CUSTOM" in
// Simplified Chinese (2052).
#define TARVELIN_TOOL 101
