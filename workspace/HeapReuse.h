#pragma once

namespace vistamaze {

// Lets the C library keep picture-sized blocks that are freed, for the next ones of their size,
// instead of handing them back to the system. Every turn of the 3D view allocates and frees
// several blocks of a few megabytes (the capture, the depth and stereogram pictures, the
// renderer's and the window's buffers); given back and taken again, each of their pages costs a
// fault, and on a virtual machine those faults were a good part of a drag step. Blocks larger
// than the largest window-sized picture still go back at once, and at most a bounded amount is
// kept. Call once, early in the program; a no-op where the C library offers no such setting.
void KeepFreedPictureBlocks() noexcept;

}  // namespace vistamaze
