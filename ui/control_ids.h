#pragma once
// Control IDs of the main dialog, shared by the dialog resources and the code. Labels carry -1.

// File names
#define ID_INFILE 201
#define ID_OUTFILE 202

// Browse buttons
#define ID_BROWSE_IN 301
#define ID_BROWSE_OUT 302

// Record form
#define ID_FIXED_CRLF 401
#define ID_LRECL 402

// Commands
#define ID_VIEW 501
#define ID_QUIT 502
#define ID_ABOUT 503
#define ID_PROCESS 504

// The progress window of a long job; its Cancel button is IDCANCEL
#define ID_JOB_INPUT 601
#define ID_JOB_OUTPUT 602
#define ID_JOB_BAR 603
#define ID_JOB_STATUS 604
