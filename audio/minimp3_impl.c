/* The MP3 decoder's implementation, compiled once, as C, with the configuration of the `minimp3` target. */
#define MINIMP3_IMPLEMENTATION
#include <minimp3_ex.h>
