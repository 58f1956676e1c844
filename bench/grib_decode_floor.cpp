// The floor of an ingest: every message of GRIB files decoded with
// ecCodes on one thread, the values fetched and thrown away.  Nothing is
// written.  grib_decode_floor FILE...
#include <eccodes.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  std::vector<double> values;
  long messages = 0;
  for (int a = 1; a < argc; ++a) {
    std::FILE* f = std::fopen(argv[a], "rb");
    if (!f) {
      std::perror(argv[a]);
      return 2;
    }
    int err = 0;
    while (codes_handle* h = codes_handle_new_from_file(nullptr, f, PRODUCT_GRIB, &err)) {
      std::size_t n = 0;
      codes_get_size(h, "values", &n);
      values.resize(n);
      if (codes_get_double_array(h, "values", values.data(), &n) != 0) {
        std::fprintf(stderr, "%s: message %ld cannot be decoded\n", argv[a], messages + 1);
        return 2;
      }
      codes_handle_delete(h);
      ++messages;
    }
    std::fclose(f);
    if (err != 0) {
      std::fprintf(stderr, "%s: %s\n", argv[a], codes_get_error_message(err));
      return 2;
    }
  }
  std::printf("%ld messages decoded\n", messages);
  return 0;
}
