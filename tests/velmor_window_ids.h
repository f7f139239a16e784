#pragma once
// What the end-to-end tests know of velmor.exe's main window, written out here rather than
// taken from the program's own header, so that a renumbered control or a changed caption
// fails them.
const char MainCaption[] = "EBCDIC to ASCII Converter";

enum : int {
    IdInFile = 201,
    IdOutFile = 202,
    IdBrowseIn = 301,
    IdBrowseOut = 302,
    IdFixedCrlf = 401,
    IdLrecl = 402,
    IdView = 501,
    IdQuit = 502,
    IdAbout = 503,
    IdProcess = 504,
};

// The progress window of a long job, and its controls; its Cancel button is IDCANCEL.
const char ProgressCaption[] = "Converting";

enum : int {
    IdJobInput = 601,
    IdJobOutput = 602,
    IdJobBar = 603,
    IdJobStatus = 604,
};
