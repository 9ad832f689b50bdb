#!/usr/bin/python3
"""A stand-in for the xdg-desktop-portal ScreenCast interface, for tests.

Owns org.freedesktop.portal.Desktop on the session bus. Every Request-style method replies with
its request handle and sends Response from this connection on the path the caller predicts. A
control object at /org/clockwarden/FakePortal (interface org.clockwarden.FakePortal) sets, per
method, the response code, extra results, a delay, no Response at all, a D-Bus error, or a
Response sent before the method reply; sets the PipeWire node ids Start hands out; and returns
every call recorded with its D-Bus type letters, Session.Close included.
OpenPipeWireRemote hands out a socket connected to $PIPEWIRE_RUNTIME_DIR (else
$XDG_RUNTIME_DIR)/pipewire-0.
"""
import json
import os
import socket
import sys

import dbus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

BUS_NAME = 'org.freedesktop.portal.Desktop'
PORTAL_PATH = '/org/freedesktop/portal/desktop'
SCREENCAST = 'org.freedesktop.portal.ScreenCast'
SESSION = 'org.freedesktop.portal.Session'
CONTROL = 'org.clockwarden.FakePortal'
CONTROL_PATH = '/org/clockwarden/FakePortal'

LETTERS = [
    (dbus.Boolean, 'b'), (dbus.Byte, 'y'), (dbus.Int16, 'n'), (dbus.UInt16, 'q'),
    (dbus.Int32, 'i'), (dbus.UInt32, 'u'), (dbus.Int64, 'x'), (dbus.UInt64, 't'),
    (dbus.Double, 'd'), (dbus.ObjectPath, 'o'), (dbus.Signature, 'g'), (dbus.String, 's'),
    (dbus.Dictionary, 'a{}'), (dbus.Array, 'a'), (dbus.Struct, '()'),
]


def letter(value):
    for kind, code in LETTERS:
        if isinstance(value, kind):
            return code
    return '?'


def plain(value):
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.Byte, dbus.Int16, dbus.UInt16, dbus.Int32, dbus.UInt32,
                          dbus.Int64, dbus.UInt64)):
        return int(value)
    if isinstance(value, dbus.Double):
        return float(value)
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    return str(value)


def sender_part(sender):
    return sender[1:].replace('.', '_')


class Session(dbus.service.Object):
    def __init__(self, portal, path):
        super().__init__(portal.connection, path)
        self.portal = portal
        self.path = path

    @dbus.service.method(SESSION, in_signature='', out_signature='')
    def Close(self):
        self.portal.record('Close', '', {}, path=self.path)
        self.portal.sessions.pop(self.path, None)
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.behaviour = {}
        self.calls = []
        self.streams = []
        self.introspection = None
        self.sessions = {}
        self.peer = None

    def record(self, method, signature, options, path=PORTAL_PATH, args=None):
        self.calls.append({'method': method, 'signature': signature, 'path': path,
                           'options': {k: [letter(v), plain(v)] for k, v in options.items()},
                           'args': [[letter(a), plain(a)] for a in (args or [])]})

    def rule(self, method):
        default = {'code': 0, 'results': {}, 'delay': 0, 'respond': True, 'error': '',
                   'responseFirst': False}
        default.update(self.behaviour.get(method, {}))
        return default

    # The portal ---------------------------------------------------------------------------

    def request(self, method, message, args, options, results, reply, error, sender):
        self.record(method, message.get_signature(), options, args=args)
        rule = self.rule(method)
        if rule['error']:
            error(dbus.exceptions.DBusException('fake portal refuses ' + method,
                                                name=rule['error']))
            return
        token = str(options.get('handle_token', 't'))
        path = '%s/request/%s/%s' % (PORTAL_PATH, sender_part(sender), token)
        results.update(rule['results'])

        def respond():
            if rule['respond']:
                signal = dbus.lowlevel.SignalMessage(path, 'org.freedesktop.portal.Request',
                                                     'Response')
                signal.append(dbus.UInt32(rule['code']), dbus.Dictionary(results, signature='sv'),
                              signature='ua{sv}')
                self.connection.send_message(signal)
            return False

        if rule['responseFirst']:
            respond()
            reply(dbus.ObjectPath(path))
            return
        reply(dbus.ObjectPath(path))
        GLib.timeout_add(int(rule['delay']), respond)

    @dbus.service.method(SCREENCAST, in_signature='a{sv}', out_signature='o',
                         sender_keyword='sender', message_keyword='message',
                         async_callbacks=('reply', 'error'))
    def CreateSession(self, options, sender, message, reply, error):
        session_path = '%s/session/%s/%s' % (PORTAL_PATH, sender_part(sender),
                                             options.get('session_handle_token', 's'))
        if not self.rule('CreateSession')['error'] and self.rule('CreateSession')['code'] == 0:
            # A test may leave a session open; the same client and token reuse its path.
            old = self.sessions.pop(session_path, None)
            if old is not None:
                old.remove_from_connection()
            self.sessions[session_path] = Session(self, session_path)
        self.request('CreateSession', message, [options], options,
                     {'session_handle': dbus.String(session_path)}, reply, error, sender)

    @dbus.service.method(SCREENCAST, in_signature='oa{sv}', out_signature='o',
                         sender_keyword='sender', message_keyword='message',
                         async_callbacks=('reply', 'error'))
    def SelectSources(self, session, options, sender, message, reply, error):
        self.request('SelectSources', message, [session, options], options, {}, reply, error,
                     sender)

    @dbus.service.method(SCREENCAST, in_signature='osa{sv}', out_signature='o',
                         sender_keyword='sender', message_keyword='message',
                         async_callbacks=('reply', 'error'))
    def Start(self, session, parent_window, options, sender, message, reply, error):
        streams = dbus.Array([dbus.Struct((dbus.UInt32(node), dbus.Dictionary(
            {'position': dbus.Struct((dbus.Int32(0), dbus.Int32(0)), signature='ii')},
            signature='sv')), signature='ua{sv}') for node in self.streams], signature='(ua{sv})')
        self.request('Start', message, [session, parent_window, options], options,
                     {'streams': streams}, reply, error, sender)

    @dbus.service.method(SCREENCAST, in_signature='oa{sv}', out_signature='h',
                         message_keyword='message')
    def OpenPipeWireRemote(self, session, options, message):
        self.record('OpenPipeWireRemote', message.get_signature(), options,
                    args=[session, options])
        rule = self.rule('OpenPipeWireRemote')
        if rule['error']:
            raise dbus.exceptions.DBusException('fake portal refuses OpenPipeWireRemote',
                                                name=rule['error'])
        runtime = os.environ.get('PIPEWIRE_RUNTIME_DIR') or os.environ.get('XDG_RUNTIME_DIR', '')
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            sock.connect(os.path.join(runtime, 'pipewire-0'))
        except OSError:
            # No daemon in this test: any connected socket will do.
            sock.close()
            sock, self.peer = socket.socketpair()
        fd = dbus.types.UnixFd(sock.fileno())
        sock.close()
        return fd

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, in_signature='', out_signature='s',
                         path_keyword='object_path', connection_keyword='connection')
    def Introspect(self, object_path, connection):
        if self.introspection is not None:
            return self.introspection
        return super().Introspect(object_path, connection)

    # Test control --------------------------------------------------------------------------

    def configure(self, method, behaviour):
        self.behaviour.setdefault(str(method), {}).update(json.loads(str(behaviour)))

    def reset(self):
        self.behaviour = {}
        self.calls = []


class Control(dbus.service.Object):
    """Forwards the control interface from its own path to the portal object."""

    def __init__(self, bus, portal):
        super().__init__(bus, CONTROL_PATH)
        self.portal = portal

    @dbus.service.method(CONTROL, in_signature='ss', out_signature='')
    def Configure(self, method, behaviour):
        self.portal.configure(method, behaviour)

    @dbus.service.method(CONTROL, in_signature='au', out_signature='')
    def SetStreams(self, nodes):
        self.portal.streams = [int(n) for n in nodes]

    @dbus.service.method(CONTROL, in_signature='s', out_signature='')
    def SetIntrospection(self, text):
        self.portal.introspection = str(text)

    @dbus.service.method(CONTROL, in_signature='', out_signature='s')
    def Calls(self):
        return json.dumps(self.portal.calls)

    @dbus.service.method(CONTROL, in_signature='', out_signature='')
    def Reset(self):
        self.portal.reset()


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus)
    Control(bus, portal)
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    print('ready', flush=True)
    GLib.MainLoop().run()
    del name


if __name__ == '__main__':
    sys.exit(main())
