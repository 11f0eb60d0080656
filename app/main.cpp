#include "app/Application.h"

int main(int argc, char **argv) { return quil::runApplication(argc, argv); }
