package ordo;

import java.lang.ref.Cleaner;
import java.lang.ref.Reference;

/**
 * What {@link BDD}, {@link ADD} and {@link BDDPairing} share: each object owns
 * one native resource (a node reference or a pairing record) from its
 * creation until {@link #free()}, or until the Java garbage collector finds
 * the object dropped.
 */
abstract class Owner {
    final TARNFactory.Owned state;
    private final Cleaner.Cleanable cleanable;

    Owner(long handle, int kind) {
        state = new TARNFactory.Owned(handle, kind);
        cleanable = TARNFactory.register(this, state);
    }

    /** Names the kind of object in messages. */
    abstract String what();

    /** The live handle; refuses a freed object. Releases what the cleaner queued first. */
    final long h() {
        TARNFactory.releasePending();
        return state.live(what());
    }

    /**
     * Gives the native resource back now. Afterwards every use of this object
     * raises {@link IllegalStateException}; freeing it again does nothing.
     */
    public final void free() {
        TARNFactory.releasePending();
        state.release();
        cleanable.clean();
    }

    /**
     * Tells whether {@link #free()} has run, or whether a consuming operation
     * took this object's resource.
     *
     * @return true when the object can no longer be used
     */
    public final boolean isFreed() {
        return state.handle == 0;
    }

    /**
     * Returns the native handle for the static methods of {@link TARNFactory}.
     * The object keeps its reference: the handle is valid while the object lives.
     *
     * @return the node handle or pairing address
     * @throws IllegalStateException when the object has been freed
     */
    public final long handle() {
        return h();
    }

    /**
     * The node of this (op) g by apply0 of the given kind; both operands keep their references.
     * Both objects stay reachable until the native call has returned.
     */
    final long applied(Owner g, int op, boolean isAdd) {
        TARNFactory.releasePending();
        long r = TARNFactory.apply0(h(), g.h(), op, isAdd, false, false);
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(g);
        return r;
    }

    /**
     * Replaces this object's node with this (op) g by apply0 of the given kind and consumes g:
     * both references go into the native call. When the call fails, it has released them anyway,
     * so both objects count as consumed.
     */
    final void appliedWith(Owner g, int op, boolean isAdd) {
        TARNFactory.releasePending();
        long a = h();
        long b = g.h();
        boolean same = g == this;
        long r;
        try {
            r = TARNFactory.apply0(a, b, op, isAdd, true, !same);
        } catch (RuntimeException | Error e) {
            consumed();
            g.consumed();
            throw e;
        }
        state.handle = r;
        if (!same) {
            g.consumed();
        }
    }

    /** Marks the resource as handed over to a native call that released it. */
    final void consumed() {
        state.handle = 0;
        cleanable.clean();
    }
}
