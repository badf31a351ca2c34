package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;
import ordo.ADD;
import ordo.BDD;
import ordo.BDDPairing;
import ordo.TARNFactory;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/** Every object owns exactly one reference: the live-node count comes back when all are gone. */
class OwnershipTest extends ApiFixture {

    @Test
    void freeingEverythingRestoresTheNodeCount() {
        int start = f.getNodeNum();
        BDD a = bdd(0x0F0F_3C3CL);
        BDD b = bdd(0x5555_AAAAL);
        BDD c = a.and(b).orWith(a.xor(b)).biimpWith(f.ithVar(4));
        BDD d = a.id().impWith(b.id()).diffWith(f.nithVar(0));
        BDDPairing p = f.makePair().set(0, 1).set(1, 0).set(2, b);
        BDD r = c.replace(p).replaceWith(p).restrictWith(f.ithVar(3));
        BDD v = d.veccompose(p);
        BDD cube12 = f.makeSet(1, 2);
        BDD cube0 = f.makeSet(0);
        BDD e = r.exist(cube12);
        BDD q = e.relprod(v, cube0);
        ADD x = a.toADD().plusWith(b.toADD()).timesWith(f.constant(2.5));
        BDD t = x.toBDDThreshold(2.5);
        assertTrue(f.getNodeNum() > start);
        for (BDD n : List.of(a, b, c, d, r, v, q, t, cube12, cube0, e)) {
            n.free();
        }
        x.free();
        p.free();
        assertEquals(start, f.getNodeNum());
    }

    @Test
    void aDroppedNodeIsReleasedAfterCollection() {
        int start = f.getNodeNum();
        dropSomeNodes(start);
        awaitNodeNum(start);
    }

    private void dropSomeNodes(int start) {
        BDD dropped = bdd(0x1357_9BDFL).orWith(bdd(0x2468_ACE0L));
        assertTrue(f.getNodeNum() > start);
        assertTrue(dropped.satCount() > 0);
    }

    /** Collects garbage until the live-node count is back at start; fails after a few seconds. */
    private void awaitNodeNum(int start) {
        for (int i = 0; i < 300 && f.getNodeNum() != start; i++) {
            System.gc();
            try {
                Thread.sleep(10);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
        assertEquals(start, f.getNodeNum(), "nodes still referenced");
    }

    @Test
    void freedAndConsumedObjectsAreRefused() {
        BDD a = f.ithVar(0);
        BDD b = f.ithVar(1);
        BDD c = f.ithVar(2);
        a.andWith(b);
        c.free();
        c.free(); // a second free does nothing
        BDDPairing p = f.makePair();
        p.free();
        for (Executable use : new Executable[] {b::not, () -> a.and(b), c::satCount, () -> c.andWith(a),
            () -> a.replace(p), () -> p.set(0, 1)}) {
            IllegalStateException e = assertThrows(IllegalStateException.class, use);
            assertTrue(e.getMessage().contains("has been freed"), e.getMessage());
        }
        assertTrue(b.isFreed());
        a.free();
    }

    @Test
    void objectsOfAShutDownFactoryAreRefused() {
        BDD a = f.ithVar(0);
        f.done();
        IllegalStateException e = assertThrows(IllegalStateException.class, a::not);
        assertTrue(e.getMessage().contains("shut down"), e.getMessage());
        a.free(); // harmless: the manager that owned the reference is gone
        f = TARNFactory.init(1000, 1000);
        BDD b = f.ithVar(0);
        assertThrows(IllegalStateException.class, () -> a.and(b));
        b.free();
    }

    @Test
    void initReturnsTheRunningFactoryAndCloseShutsItDown() {
        try (TARNFactory g = TARNFactory.init(10, 10)) {
            assertTrue(g == f);
            assertEquals(TruthTables.VARS, g.varNum(), "the running manager was kept");
        }
        assertTrue(!f.isInitialized());
        f = TARNFactory.init(1000, 1000);
    }
}
