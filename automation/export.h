// Marks what a library built with hidden visibility exports: its entry points
// and the client a program links against; everything else stays inside.
#pragma once

#define QBX_EXPORT __attribute__((visibility("default")))
