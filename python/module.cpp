// quorvane._quorvane: the compiled part of the Python package. The package's
// __init__.py defines the result and error classes (Drawing, Failure,
// DrawingError) and hands them to this module before anyone calls it.
//
// Drawings are read without the interpreter lock; Python objects are made
// only on the calling thread, with the lock held.

#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "dwg/attributes.h"
#include "extract/modOdxAtributes.h"
#include "extract/readahead.h"

namespace py = pybind11;

namespace {

PyObject* g_module = nullptr;  // borrowed: a module lives as long as the interpreter

py::object PackageClass(const char* name)
{
    if (!py::hasattr(g_module, name))
        throw py::import_error(std::string("quorvane._quorvane is used without the quorvane package (no ") + name +
                               ")");
    return py::getattr(g_module, name);
}

// Attribute texts are UTF-8 from the reader; a byte that is not survives as
// a lone surrogate instead of failing the whole call.
py::str Text(const std::string& utf8)
{
    PyObject* s = PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "surrogateescape");
    if (!s)
        throw py::error_already_set();
    return py::reinterpret_steal<py::str>(s);
}

// A path as Python's own open() takes it (str, bytes or os.PathLike): the
// text for results and messages, the file-system name for the reader.
struct PathArgument {
    py::object text;
    std::filesystem::path native;
};

PathArgument ToPath(py::handle argument)
{
    PyObject* text = nullptr;
    if (!PyUnicode_FSDecoder(argument.ptr(), &text))
        throw py::error_already_set();
    PathArgument p{py::reinterpret_steal<py::object>(text), {}};
    PyObject* bytes = PyUnicode_EncodeFSDefault(text);
    if (!bytes)
        throw py::error_already_set();
    const auto owned = py::reinterpret_steal<py::bytes>(bytes);
    p.native =
        std::filesystem::path(std::string(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes))));
    return p;
}

// A single text where a list is wanted is refused rather than read letter by letter.
void RefuseText(py::handle value, const char* what)
{
    if (py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value))
        throw py::type_error(std::string(what) + " must be a list, not a single text");
}

py::list Pairs(const dwg::TagValues& list)
{
    py::list out;
    for (const auto& [tag, value] : list) out.append(py::make_tuple(Text(tag), Text(value)));
    return out;
}

py::object Read(py::handle path)
{
    const PathArgument p = ToPath(path);
    dwg::Spaces spaces;
    dwg::Error e;
    {
        py::gil_scoped_release unlocked;
        e = dwg::read_spaces(p.native, spaces);
    }
    if (e != dwg::Error::Ok) {
        const py::object error = PackageClass("DrawingError")(p.text, dwg::message(e), static_cast<int>(e));
        PyErr_SetObject(error.get_type().ptr(), error.ptr());
        throw py::error_already_set();
    }
    return PackageClass("Drawing")(Text(spaces.version), Pairs(spaces.model), Pairs(spaces.paper));
}

py::list Extract(py::iterable paths, py::iterable fields, const std::string& space, py::object jobs)
{
    RefuseText(paths, "paths");
    RefuseText(fields, "fields");
    if (space != "M" && space != "P")
        throw py::value_error("space must be \"M\" (model space) or \"P\" (paper space), not \"" + space + "\"");
    unsigned threads = 0;  // every core
    if (!jobs.is_none()) {
        const long n = jobs.cast<long>();
        if (n < 1)
            throw py::value_error("jobs must be at least 1, or None for every core");
        threads = static_cast<unsigned>(std::min<long>(n, 1024));
    }
    std::vector<std::string> tags;
    for (py::handle field : fields) {
        if (!py::isinstance<py::str>(field))
            throw py::type_error("each field must be a tag (str)");
        tags.push_back(field.cast<std::string>());
    }
    std::vector<PathArgument> drawings;
    for (py::handle path : paths) drawings.push_back(ToPath(path));

    const py::object failure = PackageClass("Failure");
    py::list rows;
    extract::OrderedReadAhead<extract::SpaceRead> ahead(
        drawings.size(), [&](std::size_t i) { return extract::ReadSpace(drawings[i].native, space); }, threads);
    extract::SpaceRead r;
    for (std::size_t i = 0;; ++i) {
        bool got = false;
        {
            py::gil_scoped_release unlocked;
            got = ahead.next(r);
        }
        if (!got)
            break;
        if (PyErr_CheckSignals() != 0)
            throw py::error_already_set();  // Ctrl+C: the read-ahead stops as it goes out of scope
        const PathArgument& drawing = drawings[i];
        if (!extract::GivesRow(r.Code)) {
            rows.append(failure(drawing.text, dwg::message(static_cast<dwg::Error>(r.Code))));
            continue;
        }
        if (r.Code != 0)
            r.Records.clear();  // opened, but the space is not there: the row has the path only
        py::list row(1 + tags.size());
        row[0] = drawing.text;
        for (std::size_t f = 0; f < tags.size(); ++f) {
            const std::string* value = extract::FirstValue(r.Records, tags[f]);
            row[1 + f] = value ? py::object(Text(*value)) : py::none();
        }
        rows.append(std::move(row));
    }
    return rows;
}

}  // namespace

PYBIND11_MODULE(_quorvane, m)
{
    g_module = m.ptr();
    // The stubs give the types; the first docstring line shows them as Python names.
    py::options options;
    options.disable_function_signatures();
    m.doc() = "The compiled part of quorvane; use the package quorvane.";
    m.def("read", &Read, py::arg("path"),
          R"(read(path: str | bytes | os.PathLike) -> Drawing

Read the attributes of both spaces of one drawing.

Returns a Drawing: .version (the drawing's version string, "AC1015"),
.model and .paper (lists of (tag, value) tuples in the order the drawing
stores them; paper is the active layout's paper space).
Raises DrawingError (with .path, .reason, .code) when the file is missing
or cannot be read. The interpreter lock is released while reading.)");
    m.def("extract", &Extract, py::arg("paths"), py::arg("fields"), py::arg("space") = "M",
          py::arg("jobs") = py::none(),
          R"(extract(paths, fields, space="M", jobs=None) -> list[list[str | None] | Failure]

Read one space of many drawings into rows, as a processing run does.

paths: the drawings (str, bytes or os.PathLike), read in this order.
fields: attribute tags; each row holds, per tag, the value of the first
    attribute whose tag equals it exactly (letter case counts), else None.
space: "M" model space or "P" paper space.
jobs: threads that read ahead (None: one per core); the result does not
    depend on it.

Returns a list with one item per path, in the order of paths: a list
[path, value-or-None, ...], or Failure(path, reason) for a drawing that is
missing or cannot be read. A drawing without the space gives a row of None.
The interpreter lock is released while drawings are read.)");
}
