// Where one model's driver keeps its paper tool and its format files.
#pragma once

#include <string>
#include <vector>

struct DriverPaths {
    std::string inf_dir;  // never replaced, so it is what the lock is taken on
    std::string paper_tool;
    std::string function_file;
    std::string paper_info_file;
    std::string settings_file;
    std::string imaging_area_file;

    /// The four files that hold the formats, in the order an operation changes them.
    std::vector<std::string> format_files() const {
        return {function_file, paper_info_file, settings_file, imaging_area_file};
    }
    /// Their names in inf_dir.
    std::vector<std::string> format_file_names() const {
        std::vector<std::string> names;
        for (const std::string& file : format_files())
            names.push_back(file.substr(inf_dir.size() + 1));
        return names;
    }
};

/// The paths of one model's driver below `root` (the installed tool uses /opt/zentrik).
DriverPaths driver_paths(const std::string& root, const std::string& model_dir);
