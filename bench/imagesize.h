#ifndef IMAGESIZE_H
#define IMAGESIZE_H

/* How a program file's bytes divide: all of them, the resource section as
   stored in the file, and the icon data within it. */
struct ImageSize {
    unsigned long fileBytes;
    unsigned long resourceSectionBytes;
    unsigned long iconBytes;
};

bool MeasureImage(const char *path, ImageSize *size);

#endif
