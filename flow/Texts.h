// Every text the program shows. Boxes take plain ASCII with bare line feeds.
#pragma once

#include <stddef.h>

constexpr char noticeCaption[] = "Velmora";
constexpr char noticeText[] = "This program is only executed\nduring un-install. No harm done.";

constexpr char confirmCaption[] = "Velmora 2000";
constexpr char shortConfirmText[] = "Are you sure that you wish to un-install\nVelmora 2000?";
constexpr char longConfirmText[] = "Are you sure you want to un-install Velmora 2000?\n"
                                   "\n"
                                   "If you have found a bug in Velmora 2000, please\n"
                                   "have a look at http://www.quillmarsh.example/velmora/\n"
                                   "for an update that fixes the bug.\n"
                                   "\n"
                                   "Do you wish to un-install anyway?";

constexpr char failureCaption[] = "velmora-bugs@quillmarsh.example";
constexpr char failureFormat[] = "The un-installation program could not be run.\nError code: %d";

// Before April 2000 the long text, which points to the web site for updates.
constexpr int shortTextFrom = 2000 * 12 + 4;

constexpr size_t confirmBufferSize = 256;
constexpr size_t failureBufferSize = 64;

static_assert(sizeof shortConfirmText <= confirmBufferSize, "short text fits the confirmation buffer");
static_assert(sizeof longConfirmText <= confirmBufferSize, "long text fits the confirmation buffer");

// WinExec fails with 0 to 31: at most two digits in place of "%d".
static_assert(sizeof failureFormat - 2 + 2 <= failureBufferSize, "every failure text fits its buffer");
