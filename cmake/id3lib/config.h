/* The ID3 tag library's configuration for the mingw-w64 build, in place of what its configure
   script finds on a Unix system. Only what its sources test is here. */
#ifndef QUAVERLY_ID3LIB_CONFIG_H
#define QUAVERLY_ID3LIB_CONFIG_H

#define STDC_HEADERS 1
#define HAVE_BITSET 1
#define HAVE_SYS_STAT_H 1
#define HAVE_UNISTD_H 1
#define HAVE_ZLIB 1
#define HAVE_ZLIB_H 1

#define _ID3LIB_NAME "id3lib"
#define _ID3LIB_VERSION "3.8.3"
#define _ID3LIB_FULLNAME "id3lib-3.8.3"
#define _ID3LIB_MAJOR_VERSION 3
#define _ID3LIB_MINOR_VERSION 8
#define _ID3LIB_PATCH_VERSION 3
#define _ID3LIB_INTERFACE_AGE 0
#define _ID3LIB_BINARY_AGE 0

/* Its debugging output, which needs a library of its own, is off. */
#define ID3D_INIT_DOUT()
#define ID3D_INIT_WARNING()
#define ID3D_INIT_NOTICE()
#define ID3D_NOTICE(x)
#define ID3D_WARNING(x)

#endif
