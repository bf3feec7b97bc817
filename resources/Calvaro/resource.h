// Resource ids of the Calvaro program.
#pragma once

// The application name (string), the accelerator table (none is shipped)
// and, later, the soft-key menu share this id.
#define IDR_MAINFRAME 128
