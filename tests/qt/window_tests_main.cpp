#include <QApplication>

#include "test_suites.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  int failures = 0;
  failures += passerelle::testing::RunQtHostTests(argc, argv);
  failures += passerelle::testing::RunGridViewTests(argc, argv);
  failures += passerelle::testing::RunWindowTests(argc, argv);
  return failures == 0 ? 0 : 1;
}
