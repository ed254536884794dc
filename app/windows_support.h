// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_WINDOWS_SUPPORT_H
#define KELVARA_WINDOWS_SUPPORT_H

// A GUI-subsystem program on Windows has no console. When started from one,
// send standard output and standard error to it, unless they were already
// redirected to a file or a pipe. Elsewhere the streams already go to the
// terminal and this does nothing.
void attachParentConsole();

#endif
