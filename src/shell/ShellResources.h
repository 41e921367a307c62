#pragma once

// Registers the shell's built-in pictures (the window icon); safe to call more than once.
void initShellResources();
