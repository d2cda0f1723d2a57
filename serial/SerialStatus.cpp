#include "SerialPort.h"

// The same texts on every platform; each platform maps its own errors to the status.
const char* SerialStatusMessage(SerialStatus status) {
    switch (status) {
        case SerialStatus::Ok:
            return "";
        case SerialStatus::NotFound:
            return "no such port";
        case SerialStatus::Busy:
            return "the port is in use by another program";
        case SerialStatus::AccessDenied:
            return "no permission to use the port";
        case SerialStatus::NotAPort:
            return "the device is not a serial port";
        case SerialStatus::BadName:
            return "the port name is empty or too long";
        case SerialStatus::BadSpeed:
            return "the port does not support this speed";
        case SerialStatus::HungUp:
            return "the device went away";
        case SerialStatus::TimedOut:
            return "the port did not take the data in time";
        case SerialStatus::NotOpen:
            return "the port is not open";
        case SerialStatus::IoError:
            return "input/output error on the port";
    }
    return "";
}
