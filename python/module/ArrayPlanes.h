#pragma once

#include "app/core/FrameSource.h"
#include "minihost/Host.h"

#include <memory>
#include <optional>
#include <pybind11/numpy.h>

namespace umbrix::python {

namespace py = pybind11;

// What `render` is given, checked: every array of one height and width, described for the core
// while the GIL is held, so that reading them needs none. The caller keeps the arrays alive.
// ValueError, naming the argument and the shapes, for an array that is not of a float type, has
// the wrong shape or is empty. A depth of shape (H, W, 1) is read as (H, W).
ArrayFrame renderArrays(const py::array& depth, const std::optional<py::array>& normals,
                        const std::optional<py::array>& rgba);

// The core's frame of the arrays, its source image one an earlier call gave back when one fits.
// Needs no GIL.
std::shared_ptr<Frame> arraysFrame(const ArrayFrame& arrays);
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
