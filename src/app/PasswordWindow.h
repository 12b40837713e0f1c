#pragma once
// Form2, the password window "Enter Password" that stands between the tray icon and the main
// window while the program hides in the notification area.

#include <windows.h>

class Form1;

class Form2 {
public:
    explicit Form2(Form1& owner);
    ~Form2();
    Form2(const Form2&) = delete;
    Form2& operator=(const Form2&) = delete;

    HWND hwnd() const { return hwnd_; }

private:
    Form1& main_;
    HWND hwnd_ = nullptr;
};
