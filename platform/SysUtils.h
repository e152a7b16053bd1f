// Exceptions and string formatting shared by every layer of K-58.
//
// Every error the system raises is an Exception (or a class derived from it)
// that carries a finished message and knows its own class name, because the
// start-up error box reports "Exception <ClassName> in module ...".
#pragma once

#include <exception>
#include <string>

namespace k58 {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : mMessage(std::move(message)) {}
    const std::string& Message() const noexcept { return mMessage; }
    const char* what() const noexcept override { return mMessage.c_str(); }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string mMessage;
};

// Declares an exception class that derives from Base and reports its own name.
#define K58_DECLARE_EXCEPTION(Name, Base)                                                          \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
        const char* ClassName() const noexcept override { return #Name; }                          \
    }

// Out of memory for a block of data.
K58_DECLARE_EXCEPTION(EOutOfMemory, Exception);

// Replaces each "%s" in a format string with the corresponding argument, in
// order; "%%" gives a single "%". Missing arguments leave "%s" empty.
std::string Format(const std::string& format, std::initializer_list<std::string> args);

} // namespace k58
