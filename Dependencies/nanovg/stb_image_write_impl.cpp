// PNG writing for screenshots, from the system's stb package.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
