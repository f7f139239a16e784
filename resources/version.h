#pragma once
// The one source of the version and of the publisher's texts: the version block, the About
// box, velmorc and the release archive all read them from here.
#define VELMOR_VERSION_MAJOR 2
#define VELMOR_VERSION_MINOR 2
#define VELMOR_VERSION_PATCH 0
#define VELMOR_VERSION_BUILD 0
#define VELMOR_VERSION_TEXT "2.2.0"

#define VELMOR_PUBLISHER "Velmor Works"
#define VELMOR_RIGHTS "Copyright (C) 2026 Velmor Works. All rights reserved."
#define VELMOR_TERMS "Free to use and to pass on unchanged. Provided as is, without warranty of any kind."
#define VELMOR_CONTACT "velmor-team@example.org"

// Resource compilers do not join adjacent literals everywhere, so the composed lines are
// written out whole; a test checks them against the parts above.
#define VELMOR_ABOUT_TITLE "Velmor Works EBCDIC to ASCII Converter v 2.2.0"
#define VELMOR_ABOUT_CONTACT "E-mail comments/suggestions to velmor-team@example.org"
#define VELMOR_FILE_VERSION "Version 2.2.0.0"
#define VELMOR_PRODUCT_VERSION "Version 2.2.0.0 November 2001"
