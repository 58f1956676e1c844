// The floor of a netCDF ingest: every variable of netCDF files read whole
// with libnetcdf (nc_get_var_float, each variable once) and thrown away.
// Nothing is written.  netcdf_read_floor FILE...
#include <netcdf.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  std::vector<float> values;
  long variables = 0;
  for (int a = 1; a < argc; ++a) {
    int nc = -1, nvars = 0;
    if (nc_open(argv[a], NC_NOWRITE, &nc) != NC_NOERR || nc_inq_nvars(nc, &nvars) != NC_NOERR) {
      std::fprintf(stderr, "%s: cannot be opened\n", argv[a]);
      return 2;
    }
    for (int v = 0; v < nvars; ++v) {
      int rank = 0;
      nc_type type = 0;
      nc_inq_varndims(nc, v, &rank);
      nc_inq_vartype(nc, v, &type);
      if (type == NC_CHAR || type == NC_STRING) continue;
      std::vector<int> dims(static_cast<std::size_t>(rank));
      nc_inq_vardimid(nc, v, dims.data());
      std::size_t n = 1;
      for (const int d : dims) {
        std::size_t len = 0;
        nc_inq_dimlen(nc, d, &len);
        n *= len;
      }
      values.resize(n);
      const int status = nc_get_var_float(nc, v, values.data());
      if (status != NC_NOERR && status != NC_ERANGE) {
        std::fprintf(stderr, "%s: variable %d: %s\n", argv[a], v, nc_strerror(status));
        return 2;
      }
      ++variables;
    }
    nc_close(nc);
  }
  std::printf("%ld variables read\n", variables);
  return 0;
}
