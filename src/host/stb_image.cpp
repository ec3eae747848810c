// The one compiled copy of stb_image: image headers here, and the pixels of
// a captcha that a terminal shows.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#include <stb_image.h>
