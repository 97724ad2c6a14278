#ifndef SETUPINF_H
#define SETUPINF_H

/* The first line of setup.inf is read into a buffer of this many bytes:
   at most 254 bytes of text and the NUL after them. */
inline constexpr int SETUP_LINE_SIZE = 255;

char *ReadSetupName(void);

#endif
