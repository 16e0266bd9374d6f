/* A library under the SONAME of libtiff or giflib that holds none of their functions: what
   the reader says when the library found is not the one it was built for. */
int varimark_reader_stand_in(void) {
    return 0;
}
