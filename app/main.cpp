// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"
#include "text/DateText.h"

int main(int argc, char **argv) {
    quil::datetext::settleLocalTimeZone();
    return quil::runApplication(argc, argv);
}
