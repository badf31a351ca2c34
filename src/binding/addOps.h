// The ADD forms of the entry points shared with the BDD operations (apply0, ite0, not0, exist0,
// forAll0). Each runs inside the caller's frame (library lock held, operands checked) and returns
// the operation's result, or null with a Java exception pending or the reason in the manager's
// error code; the caller references the result.
#pragma once

#include "binding/binding.h"

namespace tarnjni {

// a op b for the ADD operator codes 0 to 18 of apply0; any other code raises
// "operation not supported".
DdNode *add_apply(JNIEnv *env, DdManager *dd, DdNode *a, DdNode *b, jint op);

// g where the 0/1 ADD f is one, h where it is zero.
DdNode *add_ite(JNIEnv *env, DdManager *dd, DdNode *f, DdNode *g, DdNode *h);

// One where f is zero, zero elsewhere.
DdNode *add_not(JNIEnv *env, DdManager *dd, DdNode *f);

// The disjunction over the cube for a 0/1 ADD, the sum otherwise.
DdNode *add_exist(JNIEnv *env, DdManager *dd, DdNode *f, DdNode *cube);

// The product over the cube.
DdNode *add_forall(JNIEnv *env, DdManager *dd, DdNode *f, DdNode *cube);

}  // namespace tarnjni
