/* A library under the SONAME of one the program loads when needed (libtiff, giflib, libjpeg,
   libpng, FreeType, fontconfig) that holds none of its functions: what the program says when
   the library found is not the one it was built for. */
int varimark_library_stand_in(void) {
    return 0;
}
