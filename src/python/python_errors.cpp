#include "python/python_errors.h"

#include <pybind11/eval.h>

namespace py = pybind11;

namespace {

// Plain Python classes: they pickle, print and subclass as users expect.
constexpr const char* CLASSES = R"(
class SystemFileError(ValueError):
    """A system file or database that cannot be used.

    str(error) is the message the program prints. path is the file; line and
    column (from 1) and key (a system file's key) say where, None where unknown.
    """

    def __init__(self, message, path=None, line=None, column=None, key=None):
        super().__init__(message)
        self.path = path
        self.line = line
        self.column = column
        self.key = key


class EngineWarning(UserWarning):
    """A result the engine could not confirm, returned all the same.

    The program reports the same cases with exit status 70.
    """
)";

py::object module_class(const char* name)
{
    return py::module_::import("phase_boundary").attr(name);
}

py::object or_none(int v)
{
    return v > 0 ? py::object(py::int_(v)) : py::object(py::none());
}

}  // namespace

void define_python_errors(py::module_& m)
{
    py::exec(CLASSES, m.attr("__dict__"));
}

void raise_system_file_error(const InputError& e)
{
    const py::object key = e.key.empty() ? py::object(py::none()) : py::object(py::str(e.key));
    const py::object error =
        module_class("SystemFileError")(e.text(), e.path, or_none(e.line), or_none(e.column), key);
    PyErr_SetObject(error.get_type().ptr(), error.ptr());
    throw py::error_already_set();
}

void raise_value_error(const std::string& why)
{
    throw py::value_error(why);
}

void warn_engine(const std::vector<std::string>& messages)
{
    const py::object category = module_class("EngineWarning");
    for (const std::string& m : messages)
        if (PyErr_WarnEx(category.ptr(), m.c_str(), 1) != 0)
            throw py::error_already_set();
}
