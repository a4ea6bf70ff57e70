#include "store/driver_paths.h"

DriverPaths driver_paths(const std::string& root, const std::string& model_dir) {
    const std::string base = root + "/" + model_dir + "/bin/";
    const std::string inf = base + "inf/";
    return {
        base + "inf",
        base + "lpd/zkpapertoolcups_" + model_dir,
        inf + "zk" + model_dir + "func",
        inf + "paperinf" + model_dir,
        inf + "zk" + model_dir + "rc",
        inf + "ImagingArea",
    };
}
