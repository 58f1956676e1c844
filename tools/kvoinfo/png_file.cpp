#include "png_file.hpp"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include "errors.hpp"

namespace kvo {

namespace {

// What the libpng callbacks learn about a failure.  libpng reports errors by
// longjmp out of its own code, so they are kept here and turned into an
// exception only once libpng has been left.
struct Sink {
  std::FILE* file = nullptr;
  int write_errno = 0;
  char message[200] = {};
};

void on_error(png_structp png, png_const_charp message) {
  auto* sink = static_cast<Sink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", message);
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void on_write(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, sink->file) != length) {
    sink->write_errno = errno;
    png_error(png, "write failed");
  }
}

void on_flush(png_structp png) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  if (std::fflush(sink->file) != 0) {
    sink->write_errno = errno;
    png_error(png, "write failed");
  }
}

// The whole encoding, between setjmp and the last libpng call.  Nothing in
// here has a destructor, so a longjmp out of libpng skips none.
bool encode(Sink& sink, const Image& image, png_bytep* rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, on_error, on_warning);
  if (png == nullptr) {
    std::snprintf(sink.message, sizeof sink.message, "cannot start the PNG encoder");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(sink.message, sizeof sink.message, "cannot start the PNG encoder");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &sink, on_write, on_flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
               static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void write_png(const std::string& path, const Image& image) {
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height));
  auto* base = const_cast<png_bytep>(image.rgb.data());  // libpng only reads the rows
  for (std::size_t y = 0; y < rows.size(); ++y)
    rows[y] = base + y * static_cast<std::size_t>(image.width) * 3;

  Sink sink;
  sink.file = std::fopen(path.c_str(), "wb");
  if (sink.file == nullptr) throw WriteError(with_reason(path, "cannot create the picture", errno));

  if (!encode(sink, image, rows.data())) {
    std::fclose(sink.file);
    std::remove(path.c_str());
    if (sink.write_errno != 0)
      throw WriteError(with_reason(path, "cannot write the picture", sink.write_errno));
    throw WriteError(path + ": cannot write the picture: " + sink.message);
  }
  if (std::fclose(sink.file) != 0) {
    const int err = errno;
    std::remove(path.c_str());
    throw WriteError(with_reason(path, "cannot write the picture (close failed)", err));
  }
}

}  // namespace kvo
