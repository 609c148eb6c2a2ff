#pragma once

#include "minihost/Host.h"

#include <array>
#include <optional>
#include <pybind11/numpy.h>

namespace umbrix::python {

namespace py = pybind11;

// One array argument as the planes are filled from it: read while the GIL is held, so that the
// filling needs none. The caller keeps the array alive.
struct ArrayView {
    const char* data = nullptr;
    char type = 'f';                     // numpy's character for the float type: e f d g
    bool swapped = false;                // stored in the other byte order than this machine's
    std::array<py::ssize_t, 3> stride{}; // bytes per row, per column, per component
};

// What `render` is given, checked: every array of one height and width.
struct RenderArrays {
    int width = 0;
    int height = 0;
    ArrayView depth;
    std::optional<ArrayView> normals;
    std::optional<ArrayView> rgba;
};

// ValueError, naming the argument and the shapes, for an array that is not of a float type, has
// the wrong shape or is empty. A depth of shape (H, W, 1) is read as (H, W).
RenderArrays renderArrays(const py::array& depth, const std::optional<py::array>& normals,
                          const std::optional<py::array>& rgba);

// The tool's source image: R G B A, depth and the supplied normal as 32-bit floats, the values
// converted as a file's half or float samples are when read; one an earlier call gave back when
// one fits. Needs no GIL.
minihost::ImagePtr sourceImage(const RenderArrays& arrays);
// Keeps a source image, once rendered, for a later call: the two most recent, while together
// they take at most a sixteenth of the machine's memory.
void keepSourceImage(minihost::ImagePtr image);
// Drops the images kept; returns the bytes their planes took.
std::size_t releaseSourceImages();
// The bytes the kept images' planes take.
std::size_t keptSourceBytes();

// The result's R G B A as an (H, W, 4) float32 array on the image's own first plane, which the
// array keeps alive: nothing is copied back.
py::array resultArray(minihost::ImagePtr image);

} // namespace umbrix::python
