// SPDX-License-Identifier: Zlib
/* Uses each of the engine's dependencies once, as the engine does, and
 * writes what they decode to raw files. Built twice by
 * scripts/test-windows-deps, against Debian's Linux libraries and against
 * their Windows builds; the two runs (the second under Wine) must write the
 * same bytes. Run in an empty folder; inputs are in the parent folder. */
#include <SDL.h>
#include <SDL_opengl.h>
#include <spng.h>
#include <turbojpeg.h>
#include <vorbis/vorbisfile.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <stdio.h>
#include <stdlib.h>

#ifdef _WIN32
#define GLU_LIBRARY "glu32.dll"
#define OPENAL_LIBRARY "OpenAL32.dll"
#else
#define GLU_LIBRARY "libGLU.so.1"
#define OPENAL_LIBRARY "libopenal.so.1"
#endif

static int failures;

static int check(int ok, const char *what) {
  if (!ok) { printf("FAILED: %s\n", what); ++failures; }
  return ok;
}

static unsigned char *slurp(const char *name, size_t *size) {
  FILE *file = fopen(name, "rb");
  unsigned char *data = NULL;
  if (file && fseek(file, 0, SEEK_END) == 0 && (*size = (size_t)ftell(file)) > 0 && fseek(file, 0, SEEK_SET) == 0) {
    data = malloc(*size);
    if (data && fread(data, 1, *size, file) != *size) { free(data); data = NULL; }
  }
  if (file) fclose(file);
  check(data != NULL, name);
  return data;
}

static void spit(const char *name, const void *data, size_t size) {
  FILE *file = fopen(name, "wb");
  check(file && fwrite(data, 1, size, file) == size && fclose(file) == 0, name);
}

typedef const GLubyte *(APIENTRY *StringOf)(GLenum);

static void gl(void) {
  SDL_Window *window = SDL_CreateWindow("deps", 0, 0, 64, 64, SDL_WINDOW_OPENGL);
  SDL_GLContext context = window ? SDL_GL_CreateContext(window) : NULL;
  if (!check(context != NULL, SDL_GetError())) return;
  StringOf glString = (StringOf)SDL_GL_GetProcAddress("glGetString");
  printf("GL: %s, %s\n", glString(GL_VERSION), glString(GL_RENDERER));
  void *glu = SDL_LoadObject(GLU_LIBRARY);
  StringOf gluError = glu ? (StringOf)SDL_LoadFunction(glu, "gluErrorString") : NULL;
  if (check(gluError != NULL, GLU_LIBRARY)) printf("GLU: %s\n", gluError(GL_OUT_OF_MEMORY));
  SDL_GL_DeleteContext(context);
  SDL_DestroyWindow(window);
}

static void png(void) {
  size_t size = 0, decodedSize = 0;
  unsigned char *data = slurp("../in.png", &size), *pixels = NULL;
  spng_ctx *ctx = spng_ctx_new(0);
  struct spng_ihdr ihdr;
  if (data && check(spng_set_png_buffer(ctx, data, size) == 0 && spng_get_ihdr(ctx, &ihdr) == 0 &&
                    spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &decodedSize) == 0 &&
                    (pixels = malloc(decodedSize)) != NULL &&
                    spng_decode_image(ctx, pixels, decodedSize, SPNG_FMT_RGBA8, 0) == 0, "libspng")) {
    printf("PNG: %ux%u\n", (unsigned)ihdr.width, (unsigned)ihdr.height);
    spit("png.rgba", pixels, decodedSize);
  }
  spng_ctx_free(ctx);
  free(pixels);
  free(data);
}

static void jpeg(void) {
  size_t size = 0;
  unsigned char *data = slurp("../in.jpg", &size), *pixels = NULL;
  tjhandle tj = tjInitDecompress();
  int width, height, subsampling, colorspace;
  if (data && check(tjDecompressHeader3(tj, data, (unsigned long)size, &width, &height, &subsampling, &colorspace) == 0 &&
                    (pixels = malloc((size_t)width * height * 3)) != NULL &&
                    tjDecompress2(tj, data, (unsigned long)size, pixels, width, 0, height, TJPF_RGB, 0) == 0, "libjpeg-turbo")) {
    printf("JPEG: %dx%d\n", width, height);
    spit("jpg.rgb", pixels, (size_t)width * height * 3);
  }
  tjDestroy(tj);
  free(pixels);
  free(data);
}

static void ogg(void) {
  OggVorbis_File vf;
  if (!check(ov_fopen("../in.ogg", &vf) == 0, "vorbisfile")) return;
  FILE *out = fopen("ogg.pcm", "wb");
  char buffer[4096];
  long got;
  int section;
  while ((got = ov_read(&vf, buffer, sizeof buffer, 0, 2, 1, &section)) > 0) fwrite(buffer, 1, (size_t)got, out);
  check(got == 0 && out && fclose(out) == 0, "ogg.pcm");
  printf("Ogg: %ld Hz, %d channel(s)\n", ov_info(&vf, -1)->rate, ov_info(&vf, -1)->channels);
  ov_clear(&vf);
}

static void font(void) {
  FT_Library library;
  FT_Face face;
  FT_Int major, minor, patch;
  if (!check(FT_Init_FreeType(&library) == 0, "FreeType")) return;
  FT_Library_Version(library, &major, &minor, &patch);
  if (check(FT_New_Face(library, "../font.ttf", 0, &face) == 0 && FT_Set_Pixel_Sizes(face, 0, 32) == 0 &&
            FT_Load_Char(face, 'Q', FT_LOAD_RENDER) == 0, "FreeType glyph")) {
    FT_Bitmap *bitmap = &face->glyph->bitmap;
    printf("FreeType %d.%d.%d: %s, 'Q' %ux%u\n", major, minor, patch, face->family_name, bitmap->width, bitmap->rows);
    FILE *out = fopen("glyph.gray", "wb");
    for (unsigned row = 0; out && row < bitmap->rows; ++row) fwrite(bitmap->buffer + row * bitmap->pitch, 1, bitmap->width, out);
    check(out && fclose(out) == 0, "glyph.gray");
  }
  FT_Done_FreeType(library);
}

/* OpenAL is loaded by name at run time, as the engine loads it. */
typedef void *(*OpenDevice)(const char *);
typedef void *(*CreateContext)(void *, const int *);
typedef char (*MakeCurrent)(void *);
typedef const char *(*DeviceString)(void *, int);
typedef const char *(*String)(int);
enum { AL_VERSION = 0xB002, ALC_DEVICE_SPECIFIER = 0x1005 };

static void sound(void) {
  void *openal = SDL_LoadObject(OPENAL_LIBRARY);
  if (!check(openal != NULL, OPENAL_LIBRARY)) return;
  void *device = ((OpenDevice)SDL_LoadFunction(openal, "alcOpenDevice"))(NULL);
  void *context = device ? ((CreateContext)SDL_LoadFunction(openal, "alcCreateContext"))(device, NULL) : NULL;
  MakeCurrent makeCurrent = (MakeCurrent)SDL_LoadFunction(openal, "alcMakeContextCurrent");
  if (check(context && makeCurrent(context), "OpenAL device"))
    printf("OpenAL %s: %s\n", ((String)SDL_LoadFunction(openal, "alGetString"))(AL_VERSION),
           ((DeviceString)SDL_LoadFunction(openal, "alcGetString"))(device, ALC_DEVICE_SPECIFIER));
  makeCurrent(NULL);
  if (context) ((void (*)(void *))SDL_LoadFunction(openal, "alcDestroyContext"))(context);
  if (device) ((char (*)(void *))SDL_LoadFunction(openal, "alcCloseDevice"))(device);
}

int main(int argc, char **argv) {
  (void)argc, (void)argv;
  SDL_version version;
  SDL_GetVersion(&version);
  if (check(SDL_Init(SDL_INIT_VIDEO) == 0, SDL_GetError()))
    printf("SDL %d.%d.%d, video driver %s\n", version.major, version.minor, version.patch, SDL_GetCurrentVideoDriver());
  gl();
  png();
  jpeg();
  ogg();
  font();
  sound();
  SDL_Quit();
  printf("%s\n", failures ? "some failed" : "all worked");
  return failures != 0;
}
